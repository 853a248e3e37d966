// The gateway messages of one QR purchase and one refund, as the host
// simulator's gateway exchanged them with the module.
#include "bench/bench_inputs.h"

namespace benchInputs {

const std::vector<NamedText>& gatewayRequests() {
    static const std::vector<NamedText> requests = {
        {"order",
         R"json({"agent":"Klarna\\1.0.0.0","amt":1250,"countrycode":"AU","currency":"AUD","date":"08122026","mt":150,"ppacq":"KLARNA","ppmid":"M01","pptid":"PP01","ref":"POS0201","sentcount":1,"stan":1,"time":"115319","token":"TOK7","trackinguid":"8bcf1630-5386-420b-a670-766b640b0a48","tt":"20261208115319","type":"O","tzd":0,"uid":"c605df33-bea5-493f-a5f6-8d97a3d113c5"})json"},
        {"wait",
         R"json({"agent":"Klarna\\1.0.0.0","amt":1250,"countrycode":"AU","currency":"AUD","date":"08122026","hppsid":"HPP000001","hppstatus":"WAITING","mt":150,"paysid":"PAY000001","ppacq":"KLARNA","ppmid":"M01","pptid":"PP01","ref":"POS0201","sentcount":1,"stan":2,"time":"115319","timeout":60,"token":"TOK7","trackinguid":"8bcf1630-5386-420b-a670-766b640b0a48","tt":"20261208115319","type":"N","tzd":0,"uid":"c605df33-bea5-493f-a5f6-8d97a3d113c5"})json"},
        {"purchase",
         R"json({"agent":"Klarna\\1.0.0.0","amt":1250,"countrycode":"AU","currency":"AUD","date":"08122026","hppsid":"HPP000001","hppstatus":"COMPLETED","mt":200,"orderid":"ORD000002","paysid":"PAY000001","ppacq":"KLARNA","ppmid":"M01","pptid":"PP01","ref":"POS0201","sentcount":1,"stan":3,"time":"115319","timeout":60,"token":"TOK7","trackinguid":"8bcf1630-5386-420b-a670-766b640b0a48","tt":"20261208115319","type":"P","tzd":0,"uid":"c605df33-bea5-493f-a5f6-8d97a3d113c5"})json"},
        {"refund",
         R"json({"agent":"Klarna\\1.0.0.0","amt":1250,"countrycode":"AU","date":"08122026","mt":200,"orderid":"ORD000002","ppacq":"KLARNA","ppmid":"M01","pptid":"PP01","ref":"POS0202","sentcount":1,"stan":4,"time":"115319","token":"TOK7","trackinguid":"62e29c34-9309-4ebb-a7ec-8ca97e4c6cd3","tt":"20261208115319","type":"R","tzd":0,"uid":"627cb1fd-a073-48de-857a-a4d8a217fd73"})json"},
    };
    return requests;
}

const std::vector<NamedText>& gatewayReplies() {
    static const std::vector<NamedText> replies = {
        {"order",
         R"json({"amt":1250,"currency":"AUD","hppsid":"HPP000001","hppstatus":"WAITING","mt":160,"paysid":"PAY000001","rc":"00","redirecturl":"https://pay.klarna.sim/hpp/HPP000001","ref":"POS0201","rt":"SESSION CREATED","stan":1,"trackinguid":"8bcf1630-5386-420b-a670-766b640b0a48","type":"O"})json"},
        {"wait",
         R"json({"amt":1250,"currency":"AUD","hppsid":"HPP000001","hppstatus":"COMPLETED","mt":160,"orderid":"ORD000002","paysid":"PAY000001","rc":"00","ref":"POS0201","rt":"ORDER COMPLETED","stan":2,"trackinguid":"8bcf1630-5386-420b-a670-766b640b0a48","type":"N"})json"},
        {"purchase",
         R"json({"amt":1250,"currency":"AUD","hrc":"00","hrt":"APPROVED","mt":210,"orderid":"ORD000002","paydt":"2024-01-01 10:00:04","rc":"00","ref":"POS0201","rt":"APPROVED","stan":3,"trackinguid":"8bcf1630-5386-420b-a670-766b640b0a48","txref":"KTX000003","type":"P"})json"},
        {"refund",
         R"json({"amt":1250,"currency":"AUD","mt":210,"orderid":"ORD000002","paydt":"2024-01-01 10:00:30","rc":"00","ref":"POS0202","refundid":"RFD000004","rt":"REFUNDED","stan":4,"trackinguid":"62e29c34-9309-4ebb-a7ec-8ca97e4c6cd3","txref":"KTX000004","type":"R"})json"},
    };
    return replies;
}

} // namespace benchInputs
